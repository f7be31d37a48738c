# Writes the page templates of "hvdv report" (report.html, report.css,
# report.js) into a header as byte arrays, so that the tool carries them.
#   cmake -DIN=<folder of the templates> -DOUT=<header> -P embed.cmake
set(body "// Made by cli/report/embed.cmake from the files of cli/report/; do not edit.\n#pragma once\n")
foreach(pair "kReportHtml;report.html" "kReportCss;report.css" "kReportJs;report.js")
  list(GET pair 0 name)
  list(GET pair 1 file)
  file(READ ${IN}/${file} hex HEX)
  string(LENGTH "${hex}" digits)
  math(EXPR size "${digits} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "((0x..,){24})" "\\1\n" bytes "${bytes}")
  string(APPEND body "static const unsigned char ${name}[${size} + 1] = {\n${bytes}0};\n")
endforeach()
file(WRITE ${OUT}.tmp "${body}")
file(RENAME ${OUT}.tmp ${OUT})
