#pragma once

// The names the automation service is known by on the session bus.
namespace didev::dbus {

inline constexpr char kServiceName[] = "org.kelvara.DidevEvivod";
inline constexpr char kFactoryPath[] = "/org/kelvara/DidevEvivod";
// Instances are this prefix followed by 1, 2, ...
inline constexpr char kInstancePathPrefix[] = "/org/kelvara/DidevEvivod/cDidevEvivod/";
inline constexpr char kTestDriverPath[] = "/org/kelvara/DidevEvivod/TestDriver";

inline constexpr char kFactoryInterface[] = "org.kelvara.DidevEvivod.Factory";
inline constexpr char kAutomationInterface[] = "org.kelvara.DidevEvivod._cDidevEvivod";
inline constexpr char kEventsInterface[] = "org.kelvara.DidevEvivod.__cDidevEvivod";
inline constexpr char kSinkInterface[] = "org.kelvara.DidevEvivod.EventSink";
inline constexpr char kTestDriverInterface[] = "org.kelvara.DidevEvivod.TestDriver";
inline constexpr char kPropertiesInterface[] = "org.freedesktop.DBus.Properties";

inline constexpr char kErrorName[] = "org.kelvara.DidevEvivod.Error";
inline constexpr char kAllowInternalCaptureProperty[] = "AllowInternalCapture";

inline constexpr char kHostStringArraySignature[] = "(ias)";

} // namespace didev::dbus
