# cmake -DIN=lf.txt -DOUT=crlf.txt -P CrLf.cmake: the text with Windows
# line ends, for readers such as Notepad.
file(READ ${IN} text)
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE ${OUT} "${text}")
