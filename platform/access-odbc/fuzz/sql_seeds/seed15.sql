select n from u where n > ALL (select k from w) or n < ANY (select id from t);
