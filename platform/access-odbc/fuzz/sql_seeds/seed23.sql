select top 2 n * 2 as dbl, 1 > 0 xor flag imp n eqv 3 from u, t where (id = 1 xor n > 1) union select name, Choose(id, 'a', 'b') from t order by dbl desc;
