#pragma once

#include "common/HostStringArray.h"

#include <QDBusArgument>
#include <QMetaType>

namespace didev {

// The host's string array on the bus: (ias), the lower bound and then the elements.
QDBusArgument& operator<<(QDBusArgument& argument, const HostStringArray& array);
// The argument must hold an (ias) structure. Bounds that no array has (the upper bound past
// the Long range) raise error 9, leaving `array` as it was.
const QDBusArgument& operator>>(const QDBusArgument& argument, HostStringArray& array);

// Makes HostStringArray marshallable inside QVariants; safe to call more than once.
void registerHostStringArrayType();

} // namespace didev

Q_DECLARE_METATYPE(didev::HostStringArray)
