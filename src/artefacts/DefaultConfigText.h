// The default configuration text: the complete empty schema in the
// configuration file format, which the configuration builder writes to disk
// and loads before it adds rows.
//
// GetTemplateText gives the older layout (version word VersionFourPointZero,
// 62 tables, without ZarnActiveXControls); GetDefaultConfigText the current
// one (VersionFivePointZero, all 63 tables, ZarnActiveXControls last). Each
// text is built once per process and then returned unchanged; the returned
// reference stays valid for the life of the process.
//
// Thread safety: any thread (first use builds under the language's static
// initialisation guard).
#pragma once

#include <string>

#include "artefacts/DefaultTableTemplates.h"

namespace schema {

const std::string& GetTemplateText();
const std::string& GetDefaultConfigText();

// One table template: six lines, each ending in a line feed.
void AppendTableTemplate(const TableTemplate& table, std::string& text);

}  // namespace schema
