// Keeps the platform support library non-empty before any helper lives in it.
namespace parlendo::testing {
void platformSupportAnchor() {}
}  // namespace parlendo::testing
