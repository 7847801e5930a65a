TRANSFORM Sum(price) SELECT flag, Count(*) AS n FROM t GROUP BY flag PIVOT Year(born);
