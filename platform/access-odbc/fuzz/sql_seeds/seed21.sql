select Format(price * 1e308, '.00;(#,##0.0)'), Format(s, '0.0E+0%'), Format(-4.9E-324, 'Scientific'), String(2, 128) from t, w where price > ALL (select s from w);
