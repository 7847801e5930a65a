select Int(-2.5), Fix(2.5), Sgn(-1), Sqr(4), Round(2.345, 2), Exp(1), Log(2), Atn(1), Sin(1), Cos(1), Tan(1), Hex(-1), Oct(8), CByte(3), CBool('true');
