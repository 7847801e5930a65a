select distinctrow u.g from u inner join t on t.id = u.n order by u.g;
