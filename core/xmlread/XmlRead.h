// The one way into an XML file, shared by the program and the mail plug-in: a regular file only (a
// pipe or a device would never end), nothing from the network, entities left unexpanded, messages as
// values. The system's documents never carry a document type declaration: one is refused at
// "<!DOCTYPE name", before the declarations inside it are read (their entities could expand a small
// file without bound). No Qt: the plug-in has its own strings.
#pragma once

#include <libxml/tree.h>
#include <libxml/xmlreader.h>

#include <string>

// How a read ended.
struct CXmlReadResult {
    enum Status { Read, NotOpened, NoMemory, Doctype, Malformed };
    Status status = Read;
    int openError = 0;   // errno of NotOpened
    std::string message; // the parser's message of Malformed; may be empty
};

// For the whole process: whatever libxml2 loads (a schema the user picks and what it includes) never
// goes to the network.
void XmlUseNoNetworkLoader();

// The tree of a file with a root element; null unless the result is Read. The caller frees it.
xmlDocPtr XmlReadFileTree(const char* path, CXmlReadResult& result);
// The tree of a well-formed document in memory; null unless the result is Read.
xmlDocPtr XmlReadMemoryTree(const char* bytes, int size, CXmlReadResult& result);
// A streaming reader over a file that has no document type declaration, before its first node; it
// closes the file when freed. Null for NotOpened, NoMemory and Doctype; a file that is not
// well-formed fails while it is read, with the reader's own messages.
xmlTextReaderPtr XmlOpenFileReader(const char* path, CXmlReadResult& result);
