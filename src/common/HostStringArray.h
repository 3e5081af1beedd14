#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>

namespace didev {

// The host's one-dimensional string array: any lower bound, entry k being the element with
// subscript k. Reading or writing a subscript the array does not have is error 9.
class HostStringArray {
public:
    // An array without elements (lower bound 0, upper bound -1).
    HostStringArray() = default;
    // `count` empty strings from subscript `lowerBound` on; error 9 when the upper bound would
    // pass the Long range or the count is negative.
    HostStringArray(int32_t lowerBound, int64_t count);
    HostStringArray(int32_t lowerBound, QStringList elements);

    int32_t lowerBound() const noexcept { return lowerBound_; }
    // lowerBound() - 1 when the array is empty, so 64-bit.
    int64_t upperBound() const noexcept { return int64_t{lowerBound_} + elements_.size() - 1; }
    qsizetype count() const noexcept { return elements_.size(); }
    bool contains(int64_t subscript) const noexcept;

    const QString& at(int64_t subscript) const;
    void set(int64_t subscript, const QString& value);

    // The elements in subscript order, the first having lowerBound().
    const QStringList& elements() const noexcept { return elements_; }

    bool operator==(const HostStringArray&) const = default;

private:
    qsizetype indexOf(int64_t subscript) const;

    int32_t lowerBound_ = 0;
    QStringList elements_;
};

} // namespace didev
