#pragma once

#include <exception>

namespace qavrek {

// Thrown out of a long computation whose caller asked it to stop. The computation stops between two
// of its steps, so the objects it worked on stay usable.
class interrupted : public std::exception {
 public:
  const char* what() const noexcept override { return "the computation was interrupted"; }
};

// Lets the caller of a long computation stop it without the library knowing who the caller is (an
// interactive front end, a service with a deadline). The caller installs a check for the calls it
// makes on its thread; a long loop calls `interruption::point()` every few milliseconds of work,
// which runs the current thread's check. A check throws (as a rule `interrupted`) to stop the
// computation and returns to let it go on. Loops on other threads (the workers of a parallel loop)
// see no check: the calling thread stops between two parallel loops.
class interruption {
 public:
  class check {
   public:
    virtual void operator()() = 0;

   protected:
    check() = default;
    check(const check&) = default;
    check& operator=(const check&) = default;
    ~check() = default;
  };

  // Installs a check on the current thread for its lifetime; the one it replaced comes back after.
  class scope {
   public:
    explicit scope(check& installed) noexcept;
    ~scope();
    scope(const scope&) = delete;
    scope& operator=(const scope&) = delete;

   private:
    check* replaced_;
  };

  // Runs the current thread's check, if one is installed; costs a thread-local read otherwise.
  static void point();
};

}  // namespace qavrek
