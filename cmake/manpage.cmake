# Writes the manual page of `tallowin` from the help text the tool prints,
# so the page and `tallowin --help` have one source (tools/tallowin/main.cpp).
#
#   cmake -DTOOL=<tallowin> -DVERSION=<version> -DOUTPUT=<tallowin.1> -P manpage.cmake
#
# The help's layout: a first line "tallowin: <what it does>" (a
# subcommand's: its description), a "Usage: " line, then sections, each a
# line ending in ":" followed by indented entries, "name  text" (two or more
# blanks between), a long name standing alone with its text on the next,
# deeper indented line.  The command's Options become OPTIONS, each
# subcommand's help a subsection of COMMANDS, the command's footer
# sections (Exit status, Environment, See also) sections of their own.

cmake_minimum_required(VERSION 3.25)

foreach(var TOOL VERSION OUTPUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "manpage.cmake: ${var} is not set")
  endif()
endforeach()

# Roff for one piece of help text: backslashes and minus signs escaped, a
# leading dot or quote kept from being read as a request.
function(roff_text out text)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REPLACE "-" "\\-" text "${text}")
  if(text MATCHES "^[.']")
    set(text "\\&${text}")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# The help text of `tallowin ARGS... --help` as a list of lines.  Semicolons
# and brackets, which CMake's lists treat specially, travel as markers.
function(help_lines out)
  execute_process(COMMAND ${TOOL} ${ARGN} --help OUTPUT_VARIABLE text RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "manpage.cmake: ${TOOL} ${ARGN} --help failed (${status})")
  endif()
  string(REPLACE ";" "<semicolon>" text "${text}")
  string(REPLACE "[" "<open>" text "${text}")
  string(REPLACE "]" "<close>" text "${text}")
  string(REPLACE "\n" ";" lines "${text}")
  set(${out} "${lines}" PARENT_SCOPE)
endfunction()

# Appends the roff of the sections in the list `lines_var` named in
# `sections` to the text in `page_var`: a heading of its own (SH) or an
# italic line (PP) for each section, a tagged paragraph for each entry.
function(render_sections page_var lines_var heading_style sections)
  set(page "${${page_var}}")
  set(section "")
  set(pending "")
  foreach(line IN LISTS ${lines_var})
    if(line MATCHES "^([A-Z][A-Za-z ]*):$")
      set(section "${CMAKE_MATCH_1}")
      set(pending "")
      if(NOT section IN_LIST sections)
        set(section "")
      elseif(heading_style STREQUAL "SH")
        string(TOUPPER "${section}" title)
        string(APPEND page ".SH ${title}\n")
      else()
        string(APPEND page ".PP\n\\fI${section}:\\fR\n")
      endif()
    elseif(section STREQUAL "")
    elseif(line MATCHES "^ +([^ ]|[^ ].*[^ ])  +([^ ].*)$" AND NOT pending)
      set(text "${CMAKE_MATCH_2}")
      roff_text(name "${CMAKE_MATCH_1}")
      roff_text(text "${text}")
      string(APPEND page ".TP\n\\fB${name}\\fR\n${text}\n")
    elseif(line MATCHES "^      +([^ ].*)$" AND pending)
      roff_text(text "${CMAKE_MATCH_1}")
      string(APPEND page ".TP\n\\fB${pending}\\fR\n${text}\n")
      set(pending "")
    elseif(line MATCHES "^  ([^ ].*)$")
      roff_text(pending "${CMAKE_MATCH_1}")
    endif()
  endforeach()
  set(${page_var} "${page}" PARENT_SCOPE)
endfunction()

help_lines(top)
list(GET top 0 first)
string(REGEX REPLACE "^tallowin: " "" summary "${first}")
roff_text(summary "${summary}")

set(commands "")
set(section "")
foreach(line IN LISTS top)
  if(line MATCHES "^([A-Z][A-Za-z ]*):$")
    set(section "${CMAKE_MATCH_1}")
  elseif(section STREQUAL "Subcommands" AND line MATCHES "^  ([a-z]+)  ")
    list(APPEND commands "${CMAKE_MATCH_1}")
  endif()
endforeach()
if(NOT commands)
  message(FATAL_ERROR "manpage.cmake: no subcommands in the help of ${TOOL}")
endif()

set(page ".TH TALLOWIN 1 \"\" \"tallowin ${VERSION}\" \"User Commands\"\n")
string(APPEND page ".SH NAME\ntallowin \\- ${summary}\n.SH SYNOPSIS\n")
foreach(command IN LISTS commands)
  help_lines(lines ${command})
  foreach(line IN LISTS lines)
    if(line MATCHES "^Usage: tallowin ${command} (.*)$")
      roff_text(usage "${CMAKE_MATCH_1}")
      string(APPEND page ".B tallowin ${command}\n${usage}\n.br\n")
    endif()
  endforeach()
endforeach()
string(APPEND page ".SH DESCRIPTION\n\\fBtallowin\\fR ${summary}.\n")

# The command's own options, then its subcommands, then the footer.
set(footer "")
foreach(line IN LISTS top)
  if(line MATCHES "^([A-Z][A-Za-z ]*):$")
    set(heading "${CMAKE_MATCH_1}")
    if(NOT heading MATCHES "^(Options|Subcommands)$")
      list(APPEND footer "${heading}")
    endif()
  endif()
endforeach()
render_sections(page top SH "Options")
string(APPEND page ".SH COMMANDS\n")
foreach(command IN LISTS commands)
  help_lines(lines ${command})
  list(GET lines 0 description)
  roff_text(description "${description}")
  string(APPEND page ".SS ${command}\n${description}.\n")
  render_sections(page lines PP "Positionals;Options")
endforeach()
render_sections(page top SH "${footer}")

string(REPLACE "<semicolon>" ";" page "${page}")
string(REPLACE "<open>" "[" page "${page}")
string(REPLACE "<close>" "]" page "${page}")
file(WRITE "${OUTPUT}" "${page}")
