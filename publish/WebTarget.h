#pragma once

#include <map>
#include <string>
#include <vector>

// A request target as the web interface reads it: the path after the leading
// "/" (letters, digits and "/"), then, after "?", parameters name=value joined
// by "&". Between name and value "%5B%5D=", "[]=" or "=" may stand, so that
// item[]=5 (as form libraries write lists) counts as item=5. Names are letters
// and digits, values letters, digits and "_"; a name may repeat and collects
// all its values. Parsing stops quietly at the first character that fits
// nowhere, keeping what was read.
struct WebTarget {
    std::wstring path;
    std::map<std::wstring, std::vector<std::wstring>> parameters;

    static WebTarget Parse(const std::wstring& target);

    // The values given for name (none when it was not given).
    const std::vector<std::wstring>& Values(const std::wstring& name) const;
};

// The leading decimal number of text, kept to 16 bits as an unsigned short
// would keep it; 0 when text does not start with a digit.
unsigned short LeadingNumber16(const std::wstring& text);
