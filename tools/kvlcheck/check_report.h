/*
 * kvlcheck's output: the object tree of each configuration (each logger
 * with its level, filters and handlers in delivery order, each handler
 * with its formatter and output) and the findings, as text for people or
 * as JSON for programs. One description of the tree serves both.
 */
#ifndef KVLCHECK_REPORT_H
#define KVLCHECK_REPORT_H

#include <ostream>
#include <vector>

#include "check_model.h"

namespace kvlcheck {

void writeText(std::ostream &out, const std::vector<Model> &models);
void writeJson(std::ostream &out, const std::vector<Model> &models);

}  // namespace kvlcheck

#endif /* KVLCHECK_REPORT_H */
