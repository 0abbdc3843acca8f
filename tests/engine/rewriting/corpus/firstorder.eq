addZ: add Z y = y;
addS: add (S x) y = S (add x y);
mulZ: mul Z y = Z;
mulS: mul (S x) y = add y (mul x y);
revN: rev [] = [];
revC: rev (x : xs) = rev xs ++ (x : []);
appN: [] ++ ys = ys;
appC: (x : xs) ++ ys = x : (xs ++ ys)
