#include "description/DescriptionEntry.h"

CDescriptionEntry::~CDescriptionEntry() = default;
