# Writes the player's source as a C++ string: cmake -DIN=... -DOUT=... -P embed_text.cmake
file(READ ${IN} text)
file(WRITE ${OUT} "namespace kestrova {\nconst char* PlayerCoreSource() {\n    return R\"KVAPLAYER(${text})KVAPLAYER\";\n}\n}  // namespace kestrova\n")
