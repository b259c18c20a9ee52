// Links the network services into a program (quillon-cli, the tests): no module is loaded for them.

#include "UNetwork.h"

namespace {

[[maybe_unused]] const bool Linked = (Use_Network_Services(Quillon_Network_Services()), true);

} // namespace
