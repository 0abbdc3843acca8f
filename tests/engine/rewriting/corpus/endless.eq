comm: x + y = y + x;
swap: (a, b) = (b, a);
loop: inc x = inc (inc x)
