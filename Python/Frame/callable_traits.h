#pragma once

#include <cstddef>
#include <tuple>
#include <type_traits>

namespace qavrek::python {

template <class... T>
struct type_list {
  static constexpr size_t size = sizeof...(T);
};

// What a wrapper needs to know of a library operation: its result and the parameters that come from
// Python. Member functions take self implicitly; a free function used as a method (an adapter) takes
// self as its first parameter, which `method_traits` removes.
template <class F>
struct callable_traits;

template <class R, class... A>
struct callable_traits<R (*)(A...)> {
  using result = R;
  using parameters = type_list<A...>;
  static constexpr bool is_member = false;
  // Whether the operation may change the object it is called on, as an instance method: its first
  // parameter is a reference to a non-const object.
  static constexpr bool writes_object = [] {
    if constexpr (sizeof...(A) == 0) {
      return false;
    } else {
      using first = std::tuple_element_t<0, std::tuple<A...>>;
      return std::is_lvalue_reference_v<first> && !std::is_const_v<std::remove_reference_t<first>>;
    }
  }();
};
template <class R, class... A>
struct callable_traits<R (*)(A...) noexcept> : callable_traits<R (*)(A...)> {};

#define QAVREK_MEMBER_TRAITS(QUALIFIERS, WRITES)           \
  template <class R, class C, class... A>                  \
  struct callable_traits<R (C::*)(A...) QUALIFIERS> {      \
    using result = R;                                      \
    using parameters = type_list<A...>;                    \
    static constexpr bool is_member = true;                \
    static constexpr bool writes_object = WRITES;          \
  };
QAVREK_MEMBER_TRAITS(, true)
QAVREK_MEMBER_TRAITS(const, false)
QAVREK_MEMBER_TRAITS(noexcept, true)
QAVREK_MEMBER_TRAITS(const noexcept, false)
#undef QAVREK_MEMBER_TRAITS

template <class List>
struct drop_first;
template <class First, class... Rest>
struct drop_first<type_list<First, Rest...>> {
  using first = First;
  using rest = type_list<Rest...>;
};

template <class F, bool IsMember = callable_traits<F>::is_member>
struct method_parameters {
  using type = typename callable_traits<F>::parameters;
};
template <class F>
struct method_parameters<F, false> {
  using type = typename drop_first<typename callable_traits<F>::parameters>::rest;
};

// The result and the Python-side parameters of an operation used as an instance method.
template <class F>
struct method_traits {
  using result = typename callable_traits<F>::result;
  using parameters = typename method_parameters<F>::type;
  static constexpr bool writes_object = callable_traits<F>::writes_object;
};

// A const library operation that rewrites its object's mutable state in place (a view's finalize
// rewrites its spots): its binding declares it true, and the frame treats it as a write of the object.
template <auto Function>
inline constexpr bool writes_mutable_state = false;

}  // namespace qavrek::python
