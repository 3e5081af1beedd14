#include "automation/NumberText.h"

#include "common/Rounding.h"

#include <charconv>
#include <cmath>
#include <cstddef>
#include <limits>
#include <system_error>

namespace didev {

namespace {

// Significant digits kept for the decimal conversion; more never change a correctly rounded
// double once a sticky digit stands for the dropped ones.
constexpr size_t kMaxSignificantDigits = 800;
// Decimal exponents beyond this are infinity or zero for any digit count we keep.
constexpr int64_t kExponentLimit = 100000;

// Walks the text skipping the blanks, tabs and line feeds that may stand anywhere.
class NumberCursor {
public:
    explicit NumberCursor(std::string_view text) noexcept : text_(text) { }

    // The next character that counts, or -1 at the end.
    int peek() noexcept
    {
        while (position_ < text_.size() && isSkipped(text_[position_]))
            ++position_;
        return position_ < text_.size() ? static_cast<unsigned char>(text_[position_]) : -1;
    }
    void advance() noexcept { ++position_; }
    size_t position() const noexcept { return position_; }
    void rewind(size_t position) noexcept { position_ = position; }

private:
    static bool isSkipped(char c) noexcept { return c == ' ' || c == '\t' || c == '\n'; }

    std::string_view text_;
    size_t position_ = 0;
};

int digitValue(int c, int radix) noexcept
{
    int value = -1;
    if (c >= '0' && c <= '9')
        value = c - '0';
    else if (c >= 'A' && c <= 'F')
        value = c - 'A' + 10;
    else if (c >= 'a' && c <= 'f')
        value = c - 'a' + 10;
    return value < radix ? value : -1;
}

bool isExponentLetter(int c) noexcept
{
    return c == 'E' || c == 'e' || c == 'D' || c == 'd';
}

int64_t saturatedAdd(int64_t a, int64_t b) noexcept
{
    constexpr int64_t limit = int64_t{1} << 60;
    const int64_t sum = a + b;   // both stay far below the int64 range
    return sum > limit ? limit : (sum < -limit ? -limit : sum);
}

// Hexadecimal or octal digits after "&H" / "&O", typed by their value as Integer or Long.
double prefixedNumber(NumberCursor& cursor, int radix) noexcept
{
    double value = 0;
    for (int digit = digitValue(cursor.peek(), radix); digit >= 0; digit = digitValue(cursor.peek(), radix)) {
        value = value * radix + digit;
        cursor.advance();
    }
    if (value <= 0xFFFF)
        return static_cast<int16_t>(static_cast<uint16_t>(value));
    if (value <= 0xFFFFFFFFu)
        return static_cast<int32_t>(static_cast<uint32_t>(value));
    return value;
}

// Optional exponent after the digits: the letter, an optional sign and at least one digit.
// Without a digit the letter does not belong to the number and is left unread.
int64_t exponentPart(NumberCursor& cursor) noexcept
{
    if (!isExponentLetter(cursor.peek()))
        return 0;
    const size_t start = cursor.position();
    cursor.advance();
    int64_t sign = 1;
    if (const int c = cursor.peek(); c == '+' || c == '-') {
        sign = c == '-' ? -1 : 1;
        cursor.advance();
    }
    if (digitValue(cursor.peek(), 10) < 0) {
        cursor.rewind(start);
        return 0;
    }
    int64_t exponent = 0;
    for (int digit = digitValue(cursor.peek(), 10); digit >= 0; digit = digitValue(cursor.peek(), 10)) {
        if (exponent < kExponentLimit * 10)
            exponent = exponent * 10 + digit;
        cursor.advance();
    }
    return sign * exponent;
}

// The value of significant digits times a power of ten, correctly rounded.
double decimalNumberOf(const std::string& digits, int64_t exponent, double sign) noexcept
{
    constexpr double infinity = std::numeric_limits<double>::infinity();
    const int64_t magnitude = static_cast<int64_t>(digits.size()) + exponent;
    if (magnitude > 400)
        return sign * infinity;
    if (magnitude < -400)
        return sign * 0.0;
    const std::string text = digits + 'e' + std::to_string(exponent);
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    (void)end;
    if (error == std::errc::result_out_of_range)
        value = magnitude > 0 ? infinity : 0.0;
    return sign * value;
}

// Signed decimal number: value = digits x 10^scale, converted with correct rounding.
double decimalNumber(NumberCursor& cursor) noexcept
{
    bool negative = false;
    if (const int c = cursor.peek(); c == '+' || c == '-') {
        negative = c == '-';
        cursor.advance();
    }

    std::string digits;
    int64_t scale = 0;
    bool droppedNonZero = false;
    auto takeDigit = [&](int digit, bool afterPoint) {
        if (digits.empty() && digit == 0) {
            if (afterPoint)
                --scale;
        } else if (digits.size() < kMaxSignificantDigits) {
            digits.push_back(static_cast<char>('0' + digit));
            if (afterPoint)
                --scale;
        } else {
            droppedNonZero = droppedNonZero || digit != 0;
            if (!afterPoint)
                ++scale;
        }
    };

    for (int digit = digitValue(cursor.peek(), 10); digit >= 0; digit = digitValue(cursor.peek(), 10)) {
        takeDigit(digit, false);
        cursor.advance();
    }
    if (cursor.peek() == '.') {
        cursor.advance();
        for (int digit = digitValue(cursor.peek(), 10); digit >= 0; digit = digitValue(cursor.peek(), 10)) {
            takeDigit(digit, true);
            cursor.advance();
        }
    }
    const int64_t exponent = saturatedAdd(scale, exponentPart(cursor));

    const double sign = negative ? -1.0 : 1.0;
    if (digits.empty())
        return sign * 0.0;
    if (droppedNonZero) {
        digits.push_back('1');
        // The sticky digit sits one place further right.
        return decimalNumberOf(digits, saturatedAdd(exponent, -1), sign);
    }
    return decimalNumberOf(digits, exponent, sign);
}

} // namespace

double leadingNumber(std::string_view text) noexcept
{
    NumberCursor cursor(text);
    if (cursor.peek() == '&') {
        cursor.advance();
        const int letter = cursor.peek();
        if (letter == 'H' || letter == 'h') {
            cursor.advance();
            return prefixedNumber(cursor, 16);
        }
        if (letter == 'O' || letter == 'o') {
            cursor.advance();
            return prefixedNumber(cursor, 8);
        }
        return 0;
    }
    return decimalNumber(cursor);
}

int32_t readLong(std::string_view text)
{
    return roundToLong(leadingNumber(text));
}

std::string singleText(float value)
{
    if (std::isnan(value))
        return "NaN";
    if (std::isinf(value))
        return value > 0 ? "Infinity" : "-Infinity";
    if (value == 0)
        return "0";
    char buffer[32];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 7);
    if (error != std::errc())
        return "0";   // cannot happen: 32 characters hold any 7-digit single
    std::string text(buffer, end);
    for (char& c : text)
        if (c == 'e')
            c = 'E';
    return text;
}

std::string longText(int32_t value)
{
    return std::to_string(value);
}

} // namespace didev
