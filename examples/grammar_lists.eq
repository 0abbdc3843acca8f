{- Laws about lists, {- nested comment -} used by the grammar tests. -}
catnil: xs ++ [] = xs;
catassoc: (xs ++ ys) ++ zs = xs ++ (ys ++ zs);
DEFINITION map, (++);
mapcomp: map f . map g = map (f . g);
headcons: hd (x : xs) = x, if { ok x = True; ok xs = True }
