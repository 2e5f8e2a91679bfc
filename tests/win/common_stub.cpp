// Keeps the shared test-support library non-empty before any helper exists.
namespace zr_test_support {
int placeholder = 0;
}
