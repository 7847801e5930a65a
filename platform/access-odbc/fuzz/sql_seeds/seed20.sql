select InStrRev(name, '-'), Space(2), String(3, 'x'), StrReverse(memo), Chr(128), ChrW(8364), Asc('A'), AscW('€') from t;
