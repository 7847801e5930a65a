select Format(price, 'Currency'), Format(-price, '#,##0.00;(#,##0.00);"zero"'), Format(born, 'w ww ddddd ttttt'), Format(price, '0.0E+00') from t;
