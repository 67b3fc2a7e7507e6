#pragma once

#include <exception>

namespace wibblet {

/// A failure with its number, raised inside a handler and caught where the
/// handler reports it (the receive handler's error box, the send report).
/// Numbers below 10000 are the program's own reading failures; the others
/// are socket error numbers.
class Failure : public std::exception {
public:
    explicit Failure(int number) : number_(number) {}
    int Number() const { return number_; }
    const char* what() const noexcept override { return "wibblet failure"; }

    static constexpr int InvalidArgument = 5; ///< a field range of negative length
    static constexpr int Overflow = 6;        ///< a number outside 32 bits
    static constexpr int TypeMismatch = 13;   ///< a text that is not a number

private:
    int number_;
};

} // namespace wibblet
