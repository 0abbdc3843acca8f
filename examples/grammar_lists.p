-- A small list library with one transformation block.
data Seq a = Nil | Cons a (Seq a);
map :: (a -> b) -> [a] -> [b];
map f [] = [];
map f (x : xs) = f x : map f xs;
sum xs = foldr (+) 0 xs;
twice = f . g . h
  where { f = \x -> x + 1;
          g = \y -> y * 2 };
pairs = [(1, True), (2, False)];
TRANSFORM fuse : first, second
REDEFINE
  mapmap f g xs = map f (map g xs)
SPECIFYING
  mapmap2 f g = map (f . g)
USING
  mapfuse: map f (map g xs) = map (f . g) xs;
  DEFINITION map, (++), .
END;
