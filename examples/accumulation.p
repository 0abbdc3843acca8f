-- Accumulation: a quadratic reverse becomes linear with an accumulating parameter,
-- and two traversals for an average become one that returns a pair.
-- Run the tour with:  cd examples && ../build/plim runscript accumulation.script
foldr :: (a -> b -> b) -> b -> [a] -> b;
foldr f e [] = e;
foldr f e (x : xs) = f x (foldr f e xs);

-- rev puts each element behind the reverse of the rest, walking that again: quadratic.
rev :: [a] -> [a];
rev xs = foldr (\ x r -> r ++ [x]) [] xs;

length :: [a] -> Int;
length xs = foldr (\ x n -> 1 + n) 0 xs;

sum :: [Int] -> Int;
sum xs = foldr (+) 0 xs;

-- average walks its argument twice, once for the sum and once for the length.
average :: [Int] -> Int;
average xs = sum xs / length xs;

-- revcat xs ys reverses xs onto ys.  Fold fusion pushes the append into the fold: the
-- fold then builds a function that conses each element onto the accumulated list, one
-- step per element, and rev becomes linear.
TRANSFORM accumulate
REDEFINE rev xs = revcat xs []
SPECIFYING revcat xs ys = rev xs ++ ys
USING DEFINITION rev, (++);
      fusion : h (foldr f e xs) = foldr g (h e) xs,
               if { (\ x y -> h (f x y)) = (\ x y -> g x (h y)) };
      assoc : (xs ++ ys) ++ zs = xs ++ (ys ++ zs)
END;

-- Two folds over one list are one fold that returns the pair of their results.  This
-- block waits for accumulate: it can be applied once accumulate has been.
TRANSFORM tuple : accumulate
REDEFINE average xs = divide (sumlen xs);
         divide (s, n) = s / n
SPECIFYING sumlen xs = (sum xs, length xs)
USING DEFINITION sum, length;
      split : (foldr f e xs, foldr g d xs) = foldr (\ x (a, b) -> (f x a, g x b)) (e, d) xs
END;
