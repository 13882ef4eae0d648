// The two model groups that differ from the rest of the family in many details.
// Model names are compared whole, exactly and case-sensitively.
#pragma once

bool IsQVModel(const char *modelName);
bool IsMirodelModel(const char *modelName);
