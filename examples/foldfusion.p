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

TRANSFORM fusefold
REDEFINE doublesum xs = foldr plusdouble 0 xs
SPECIFYING plusdouble x y = double x + y
USING fusion : h (foldr f e xs) = foldr g (h e) xs, if { h (f x y) = g x (h y) };
      DEFINITION double, sum
END;
