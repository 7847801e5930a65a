# Writes the component list and every licence text after it into one file: the installer's
# licence page and the Debian package's copyright file.
#   cmake -DOUTPUT=<file> [-DCRLF=ON] -P combine.cmake
set(texts LGPL-3 GPL-3 Apache-2.0 GCC-exception-3.1 winpthreads Zlib libpng FTL Harfbuzz PCRE2 BSD-3-clause Expat)
file(READ ${CMAKE_CURRENT_LIST_DIR}/NOTICES.txt combined)
foreach(text ${texts})
  file(READ ${CMAKE_CURRENT_LIST_DIR}/${text}.txt body)
  string(APPEND combined "\n\n======== ${text}.txt ========\n\n${body}")
endforeach()
if(CRLF)
  string(REPLACE "\n" "\r\n" combined "${combined}")
endif()
file(WRITE ${OUTPUT} "${combined}")
