#include "capture/provider/SourceRecipe.h"

namespace didev {

SourceRecipe::SourceRecipe(std::string displayName, SourceFault fault)
    : displayName_(std::move(displayName))
    , fault_(fault)
{
}

SourceRecipe::~SourceRecipe() = default;

} // namespace didev
