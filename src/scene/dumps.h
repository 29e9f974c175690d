// Reports on the selected object: the instance (to the debug output), its
// model and its property table (to the info dialog).
#pragma once

class Instance;
class Model;

void DumpInstance(const Instance& instance);
void DumpModel(const Model& model);
void DumpValueTable(const Instance& instance);
