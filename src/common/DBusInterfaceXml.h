#pragma once

#include <QString>

namespace didev {

// The <interface> element of that name, as written in the service's interface files (built in
// as resources), for an object's introspection data; empty for a name the files do not have.
QString dbusInterfaceXml(const QString& interfaceName);

// The same from the text of an interface file.
QString interfaceElement(const QString& fileText, const QString& interfaceName);

} // namespace didev
