-- A small list library with one transformation block: a tour of the program grammar.
-- Run the tour with:  cd examples && ../build/plim runscript grammar_lists.script
data Seq a = Nil | Cons a (Seq a);
map :: (a -> b) -> [a] -> [b];
map f [] = [];
map f (x : xs) = f x : map f xs;
foldr :: (a -> b -> b) -> b -> [a] -> b;
foldr f e [] = e;
foldr f e (x : xs) = f x (foldr f e xs);
sum xs = foldr (+) 0 xs;
hd (x : xs) = x;
toList Nil = [];
toList (Cons x s) = x : toList s;
twice = f . g . h
  where { f = \x -> x + 1;
          g = \y -> y * 2;
          h = \z -> z - 3 };
pairs = [(1, True), (2, False)];
mapmap f g xs = map f (map g xs);
TRANSFORM fuse
REDEFINE
  mapmap f g xs = mapmap2 f g xs
SPECIFYING
  mapmap2 f g xs = map f (map g xs)
USING
  mapfuse: map f (map g xs) = map (f . g) xs;
  DEFINITION (++), .
END;
