-- Laws for introducing accumulating parameters and for tupling, for use with accumulation.p.
assoc : (xs ++ ys) ++ zs = xs ++ (ys ++ zs);
unitl : [] ++ ys = ys;
unitr : xs ++ [] = xs;
single : [x] ++ ys = x : ys;
plusassoc : (a + b) + c = a + (b + c);
fusion : h (foldr f e xs) = foldr g (h e) xs, if { (\ x y -> h (f x y)) = (\ x y -> g x (h y)) };
split : (foldr f e xs, foldr g d xs) = foldr (\ x (a, b) -> (f x a, g x b)) (e, d) xs
