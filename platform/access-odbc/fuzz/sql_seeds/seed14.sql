select * from v as x inner join u on x.n = u.n where x.g = SOME (select g from u where n < 3);
