-- Map fusion: two traversals of a list become one.
map :: (a -> b) -> [a] -> [b];
map f [] = [];
map f (x : xs) = f x : map f xs;

square :: Int -> Int;
square x = x * x;

inc :: Int -> Int;
inc x = x + 1;

-- The program before the transformation walks its argument twice.
squares :: [Int] -> [Int];
squares xs = map square (map inc xs);

scale :: Float -> [Float] -> [Float];
scale k ys = map (\ y -> k *. y) (map (\ y -> y +. 0.5) ys);

TRANSFORM fusemap
REDEFINE squares xs = incsquare xs
SPECIFYING incsquare xs = map square (map inc xs)
USING DEFINITION map;
      fusion : map f (map g xs) = map (f . g) xs;
      compose : (f . g) x = f (g x)
END;
