#pragma once

// The page's style sheet and script, kept as files of their own in the source tree
// (report.css, report.js) and written into the program at build time.
extern const char ReportStyle[];
extern const char ReportScript[];
