#pragma once

#include <string>
#include <string_view>

// The monitor rendering restated plainly, for the fuzz targets to hold the real one against.
inline std::string referenceRendering(std::string_view bytes)
{
    std::string out = " ";
    for (const unsigned char c : bytes) {
        if (c == 0x06)
            out += "ACK ";
        else if (c == '\r')
            out += "CR ";
        else if (c == '\n')
            out += "LF  ";
        else if (c >= ' ' && c <= 'z')
            out += {char(c), ' '};
        else
            out += "? ";
    }
    return out;
}
