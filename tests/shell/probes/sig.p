-- Signature for matcher probes.
data Tree a = Leaf | Node (Tree a) a (Tree a);

map :: (a -> b) -> [a] -> [b];
map f [] = [];
map f (x : xs) = f x : map f xs;

foldr :: (a -> b -> b) -> b -> [a] -> b;
foldr f e [] = e;
foldr f e (x : xs) = f x (foldr f e xs);

inc :: Int -> Int;
inc x = x + 1;

square :: Int -> Int;
square x = x * x;

neg :: Bool -> Bool;
neg b = if b then False else True;

ident :: a -> a;
ident x = x;

konst :: a -> b -> a;
konst x y = x;

twice :: (a -> a) -> a -> a;
twice f x = f (f x);

swap :: (a, b) -> (b, a);
swap (x, y) = (y, x);

first :: (a, b) -> a;
first (x, y) = x;

len :: [a] -> Int;
len [] = 0;
len (x : xs) = 1 + len xs;
