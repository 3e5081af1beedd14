#pragma once

#include <QString>

#include <map>

namespace didev {

// The <interface> element of that name, as written in the service's interface files (built in
// as resources), for an object's introspection data; empty for a name the files do not have.
QString dbusInterfaceXml(const QString& interfaceName);

// The same from the text of an interface file.
QString interfaceElement(const QString& fileText, const QString& interfaceName);

// A method's in- and out-arguments as D-Bus signatures, in argument order.
struct MethodSignature {
    QString in;
    QString out;
    bool operator==(const MethodSignature&) const = default;
};
using InterfaceMethods = std::map<QString, MethodSignature>;

// The methods of an interface, by member, as its interface file declares them: the one source of
// the signatures the service checks calls against and the client expects replies in. Empty for
// an interface no file has.
const InterfaceMethods& interfaceMethods(const QString& interfaceName);

// The methods of one <interface> element's text.
InterfaceMethods methodsOf(const QString& interfaceXml);

} // namespace didev
