#include "common/model_groups.h"

#include <cstring>

namespace {
constexpr char kQVModels[][24] = {"Kelvra QV66ADN Series", "Kelvra QV66ADW Series",
                                  "Kelvra QV66N Series", "Kelvra QV68ADW Series",
                                  "Kelvra QV68ADN Series"};
constexpr char kMirodelModels[][24] = {"Mirodel R70-pp Series", "Mirodel V70-pp Series"};

template <typename List> bool InList(const List &list, const char *name) {
    if (name == nullptr) return false;
    for (const char *m : list)
        if (std::strcmp(m, name) == 0) return true;
    return false;
}
} // namespace

bool IsQVModel(const char *modelName) {
    return InList(kQVModels, modelName);
}
bool IsMirodelModel(const char *modelName) {
    return InList(kMirodelModels, modelName);
}
