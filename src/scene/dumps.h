// Reports on the selected object: the instance (to the debug output), its
// model and its property table (to the info dialog).
#pragma once

class Instance;
class Model;

void DumpInstance(const Instance& instance);
void DumpModel(const Model& model);
void DumpValueTable(const Instance& instance);
// Where everything about the object lies in the level's files, as byte
// offsets from each file's start: its region record, its model's block, its
// property table's entries, and each material's texture entry and first
// pixel. For modders who edit the files by hand.
void DumpFileOffsets(const Instance& instance);
