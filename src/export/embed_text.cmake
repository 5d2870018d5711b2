# Writes the player's source as a C++ string, with the limiter it includes
# put in place of its #include line, so the sketch gets one self-contained
# file: cmake -DIN=... -DSTEP=... -DOUT=... -P embed_text.cmake
file(READ ${IN} text)
file(READ ${STEP} step)
string(REPLACE "#include \"core/limit_step.h\"" "${step}" text "${text}")
file(WRITE ${OUT} "namespace kestrova {\nconst char* PlayerCoreSource() {\n    return R\"KVAPLAYER(${text})KVAPLAYER\";\n}\n}  // namespace kestrova\n")
