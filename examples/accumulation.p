-- Accumulation: a quadratic reverse becomes linear with an accumulating parameter,
-- and two traversals for an average become one that returns a pair.
foldr :: (a -> b -> b) -> b -> [a] -> b;
foldr f e [] = e;
foldr f e (x : xs) = f x (foldr f e xs);

rev :: [a] -> [a];
rev [] = [];
rev (x : xs) = rev xs ++ [x];

length :: [a] -> Int;
length [] = 0;
length (x : xs) = 1 + length xs;

sum :: [Int] -> Int;
sum [] = 0;
sum (x : xs) = x + sum xs;

average :: [Int] -> Int;
average xs = total / count
  where { total = sum xs;
          count = length xs };

sumlen :: [Int] -> (Int, Int);
sumlen xs = (sum xs, length xs);

step :: Int -> (Int, Int) -> (Int, Int);
step x p = let q = p in (\ (s, n) -> (x + s, n + 1)) q;

TRANSFORM accumulate
REDEFINE rev xs = revcat xs []
SPECIFYING revcat xs ys = rev xs ++ ys
USING DEFINITION rev, (++);
      assoc : (xs ++ ys) ++ zs = xs ++ (ys ++ zs);
      unit : [] ++ ys = ys
END;

TRANSFORM tuple : accumulate
REDEFINE average xs = divide (sumlen xs);
         divide (s, n) = s / n
SPECIFYING sumlen2 xs = (sum xs, length xs)
USING DEFINITION sum, length, sumlen
END;
