#pragma once

#include <stdexcept>

// The error of the socket layer: every failed socket call, and the errors of
// the component's properties, reach callers as this exception.
class ESocketError : public std::runtime_error
{
public:
    using runtime_error::runtime_error;
};
