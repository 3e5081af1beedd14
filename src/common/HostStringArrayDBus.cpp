#include "common/HostStringArrayDBus.h"

#include <QDBusMetaType>

namespace didev {

QDBusArgument& operator<<(QDBusArgument& argument, const HostStringArray& array)
{
    argument.beginStructure();
    argument << array.lowerBound() << array.elements();
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, HostStringArray& array)
{
    int32_t lowerBound = 0;
    QStringList elements;
    argument.beginStructure();
    argument >> lowerBound >> elements;
    argument.endStructure();
    array = HostStringArray(lowerBound, std::move(elements));
    return argument;
}

void registerHostStringArrayType()
{
    static const int id = qDBusRegisterMetaType<HostStringArray>().id();
    Q_UNUSED(id);
}

} // namespace didev
