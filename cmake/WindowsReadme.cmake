# Writes README.txt for the Windows archives from README.md: its opening and
# the sections a Windows user needs, headings underlined, with CR LF line
# ends. The text lives only in README.md.
#
#   cmake -DSOURCE=README.md -DOUTPUT=README.txt -DVERSION=x.y.z -P WindowsReadme.cmake
set(sections "Running on Windows" "Using it" "Connecting your client" "Several accounts at once"
    "Command line" "Troubleshooting")

file(READ "${SOURCE}" text)
string(REPLACE "\r\n" "\n" text "${text}")

# The opening, below the title, up to the first section.
string(FIND "${text}" "\n## " first)
string(FIND "${text}" "\n" title_end)
math(EXPR opening_length "${first} - ${title_end}")
string(SUBSTRING "${text}" ${title_end} ${opening_length} opening)
set(heading "Skelvane ${VERSION} for Windows")
string(REGEX REPLACE "." "=" rule "${heading}")
set(out "${heading}\n${rule}\n${opening}\n")

foreach(title IN LISTS sections)
  string(FIND "${text}" "\n## ${title}\n" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${SOURCE} has no section \"## ${title}\"")
  endif()
  string(LENGTH "\n## ${title}\n" heading_length)
  math(EXPR body_start "${at} + ${heading_length}")
  string(SUBSTRING "${text}" ${body_start} -1 body)
  string(FIND "${body}" "\n## " body_end)
  if(NOT body_end EQUAL -1)
    string(SUBSTRING "${body}" 0 ${body_end} body)
  endif()
  string(REGEX REPLACE "." "-" rule "${title}")
  string(APPEND out "\n${title}\n${rule}\n${body}\n")
endforeach()

string(REGEX REPLACE "\n\n\n+" "\n\n" out "${out}")
string(REPLACE "\n" "\r\n" out "${out}")
file(WRITE "${OUTPUT}" "${out}")
