#pragma once

namespace qavrek::python {

// The Python name under which a wrapped library class or enumeration is registered with the run time:
// the library name in lower camel case for classes ("random_settings" is "randomSettings"), the
// library name itself for enumerations. Each module declares the names of its own classes in its
// names header; a wrapper that uses a class of another module includes that module's header.
template <class T>
inline constexpr const char* python_name = nullptr;

template <class T>
concept named_in_python = python_name<T> != nullptr;

}  // namespace qavrek::python
