// libgcrypt wants one initialisation per process before any other call.
#pragma once

namespace trust::detail {

// Initialises libgcrypt once (thread-safe): checks its version and turns
// off its secure memory, which would need locked pages and warns without
// them; the secret keys this library handles come from plain files anyway.
// Throws ETrustError when the installed libgcrypt is too old.
void EnsureGcrypt();

}  // namespace trust::detail
