-- Laws about map, for use with mapfusion.p.
mapnil : map f [] = [];
mapcons : map f (x : xs) = f x : map f xs;
fusion : map f (map g xs) = map (f . g) xs;
compose : (f . g) x = f (g x);
identity : map (\ x -> x) xs = xs;
squaredef : square x = x * x;
incdef : inc x = x + 1
