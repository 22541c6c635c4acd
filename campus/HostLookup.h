#pragma once

#include <functional>
#include <string>

namespace halvix::campus {

enum class HostLookup { Found, Unknown, Cancelled };

// Resolves `host` (a name or a numeric address) on a thread of its own and waits for the answer
// only while `cancelled` says no, asking it every 100 ms: a name server that never answers must not
// hold a program that quits. A numeric address is found at once. `resolve` answers whether a host
// resolves; by default the system's resolver (getaddrinfo).
using Resolver = std::function<bool(const std::string& host)>;
HostLookup lookUpHost(const std::string& host, const std::function<bool()>& cancelled, Resolver resolve = {});

} // namespace halvix::campus
