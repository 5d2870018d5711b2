#pragma once
// Window geometry is designed in twips; 15 twips make one pixel.

namespace kestrova {

constexpr int Twips(int twips) { return (twips * 2 + 15) / 30; }

}  // namespace kestrova
