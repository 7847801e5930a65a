select n from u where g like 'a%' or g like '_' or g like '[%]x[_]' or g not like ? order by n;
