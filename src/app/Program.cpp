#include "app/Program.h"

namespace quorvel {

Program::Program() = default;

}  // namespace quorvel
