-- Fold fusion and the laws it needs, for use with foldfusion.p.
foldnil : foldr f e [] = e;
foldcons : foldr f e (x : xs) = f x (foldr f e xs);
fusion : h (foldr f e xs) = foldr g (h e) xs, if { h (f x y) = g x (h y) };
distrib : 2 * (x + y) = 2 * x + 2 * y;
zero : 2 * 0 = 0;
sumdef : sum xs = foldr (+) 0 xs;
doubledef : double x = 2 * x;
fusion2 : h (foldr f e xs) = foldr g d xs, if { h e = d; h (f x y) = g x (h y) }
