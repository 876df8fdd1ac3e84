// The pieces of the C++ runtime this DLL supplies itself, because the runtime's own drag in far
// more than they do into a DLL that every page's process loads (about half its size):
//   - the terminate handler: the runtime's verbose one prints the exception's demangled type,
//     which links the whole demangler (46 KB); nothing here has a console to print to;
//   - the throw helpers the standard containers and strings call: the runtime's build their
//     exceptions from its copy-on-write string and format their texts, which links every member
//     of four string instantiations (about 100 KB). The COM boundary (com/ComGuard.h) tells only
//     an exhausted allocation (std::bad_alloc) from anything else, and ours keep that apart.
// Only the DLL and its broker link this file; the test programs keep the runtime's own.
#include <cstdlib>
#include <exception>
#include <new>

namespace {

// Any other failure the containers report: an impossible length or position.
class ContainerError final : public std::exception {
public:
    explicit ContainerError(const char* pszWhat) noexcept : m_pszWhat(pszWhat) {}
    const char* what() const noexcept override { return m_pszWhat; }

private:
    const char* m_pszWhat;  // a literal of the runtime's, or one of ours
};

}  // namespace

namespace __gnu_cxx {
void __verbose_terminate_handler()
{
    std::abort();
}
}  // namespace __gnu_cxx

namespace std {
void __throw_bad_alloc()
{
    throw std::bad_alloc();
}
void __throw_bad_array_new_length()
{
    throw std::bad_array_new_length();
}
void __throw_length_error(const char* pszWhat)
{
    throw ContainerError(pszWhat);
}
void __throw_logic_error(const char* pszWhat)
{
    throw ContainerError(pszWhat);
}
void __throw_out_of_range_fmt(const char*, ...)
{
    throw ContainerError("position out of range");
}
}  // namespace std
