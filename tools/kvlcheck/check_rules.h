/*
 * The rules kvlcheck applies to a model: errors (the configuration does
 * not do what it says), warnings (legal, probably not meant) and, when
 * asked, notes (every property left at its default). Each rule reads the
 * classes' property tables, so a class that gains a property is checked
 * for it without a change here.
 */
#ifndef KVLCHECK_RULES_H
#define KVLCHECK_RULES_H

#include <vector>

#include "check_model.h"

namespace kvlcheck {

/* Adds the findings of one configuration to its model. */
void checkModel(Model &model, bool strict);

/* Adds the findings of several programs' configurations together: file
 * sets that two programs write. */
void checkAcross(std::vector<Model> &models);

/* The nearest of `candidates` to `word` by edit distance (case-blind), or
 * "" when none is near enough to be a likely misspelling. */
std::string nearest(const std::string &word, const std::vector<std::string> &candidates);

/* The path a handler writes its active file at, as the toolkit makes it
 * (a base ending in a digit gets "_"), absolute and normalised. */
std::string fileSetPath(const std::string &fileName);

}  // namespace kvlcheck

#endif /* KVLCHECK_RULES_H */
