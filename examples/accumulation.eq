-- Laws for introducing accumulating parameters.
assoc : (xs ++ ys) ++ zs = xs ++ (ys ++ zs);
unitl : [] ++ ys = ys;
unitr : xs ++ [] = xs;
single : [x] ++ ys = x : ys;
plusassoc : (a + b) + c = a + (b + c);
tuplesum : (sum xs, length xs) = foldr (\ x (s, n) -> (x + s, 1 + n)) (0, 0) xs;
condfold : if b then f x else f y = f (if b then x else y);
DEFINITION rev, sum, length
