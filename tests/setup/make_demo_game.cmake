# A game folder as an earlier release left it: the old executable and the main data archive.
#   cmake -DGAME=DIR -P make_demo_game.cmake
file(REMOVE_RECURSE ${GAME})
file(MAKE_DIRECTORY ${GAME}/Veldran)
file(WRITE ${GAME}/Veldran/VELDRAN.EXE "VELDRAN 1.0 (the release with the defect)\n")
file(WRITE ${GAME}/Veldran/MG_DATA.MBL "VELDRAN main data archive\n")
