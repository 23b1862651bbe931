# cmake -DOUT=<file> -DTABLES=<a.txt;b.txt> -P textbundle.cmake
# The stub's language tables in one file, each after a "[code]" line named
# by its file ("pt-BR.txt" -> "[pt-BR]"), for the packer (payload/texttable.hpp).
set(bundle "")
foreach(table IN LISTS TABLES)
  get_filename_component(code "${table}" NAME_WE)
  file(READ "${table}" text)
  # What the stub does not read stays out: comment lines, the blanks around "=".
  string(REGEX REPLACE "(^|\n)#[^\n]*" "" text "${text}")
  string(REGEX REPLACE "(^|\n)([A-Za-z]+) = " "\\1\\2=" text "${text}")
  string(APPEND bundle "[${code}]\n${text}\n")
endforeach()
file(WRITE "${OUT}.tmp" "${bundle}")
file(COPY_FILE "${OUT}.tmp" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.tmp")
