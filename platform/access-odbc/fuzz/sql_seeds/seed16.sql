PARAMETERS [Low] Long, [Forms]![F]![High] DateTime; select count(*) from t where id >= [Low] and born < [Forms]![F]![High] and id <> ?;
