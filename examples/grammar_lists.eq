{- Laws about lists, {- nested comment -} for use with grammar_lists.p. -}
catnil: xs ++ ys = xs, if { ys = [] };
nilcat: [] ++ ys = ys;
conscat: (x : xs) ++ ys = x : (xs ++ ys);
catassoc: (xs ++ ys) ++ zs = xs ++ (ys ++ zs);
mapcomp: map f . map g = map (f . g);
compose: (f . g) x = f (g x);
headcons: hd (x : xs) = x
