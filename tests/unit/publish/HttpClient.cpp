#include "HttpClient.h"

std::string HttpAnswer::Header(const std::string& lowerName) const {
    auto found = headers.find(lowerName);
    return found == headers.end() ? std::string() : found->second;
}
