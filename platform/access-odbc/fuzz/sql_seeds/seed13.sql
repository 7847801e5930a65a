select CSng(price), CStr(s), s = CSng(0.15), First(b), Last(s) from w, t where k = id;
