-- Fold fusion: a function applied to the result of a fold is absorbed into the fold.
data Tree a = Leaf | Node (Tree a) a (Tree a);

foldr :: (a -> b -> b) -> b -> [a] -> b;
foldr f e [] = e;
foldr f e (x : xs) = f x (foldr f e xs);

sum :: [Int] -> Int;
sum xs = foldr (+) 0 xs;

double :: Int -> Int;
double x = 2 * x;

doublesum :: [Int] -> Int;
doublesum xs = double (sum xs);

flatten :: Tree a -> [a];
flatten Leaf = [];
flatten (Node l x r) = flatten l ++ (x : flatten r);

bigger :: Int -> [Int] -> Bool;
bigger n xs = if sum xs > n then True else n == 0 && xs == [];

-- The doubling is fused into the fold of the sum: the new doublesum walks its list once,
-- doubling each element on the way.
TRANSFORM fusefold
REDEFINE doublesum xs = sumdouble xs
SPECIFYING sumdouble xs = double (sum xs)
USING DEFINITION sum, double;
      fusion : h (foldr f e xs) = foldr g (h e) xs, if { h (f x y) = g x (h y) };
      distrib : 2 * (x + y) = 2 * x + 2 * y;
      zero : 2 * 0 = 0
END;
