halfdouble: add (half x) (half x) = x, if { even x = True };
halfadd: half (add n m) = n, if { even (add n m) = True; n = m };
evenZ: even Z = True;
evenSS: even (S (S n)) = even n;
evenS1: even (S Z) = False;
halfZ: half Z = Z;
halfSS: half (S (S n)) = S (half n);
addZ: add Z y = y;
addS: add (S x) y = S (add x y);
fusion: h (foldr f e xs) = foldr g (h e) xs, if { h (f x y) = g x (h y) };
doubledef: double x = 2 * x;
distrib: 2 * (x + y) = 2 * x + 2 * y
