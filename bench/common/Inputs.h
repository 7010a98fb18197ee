/* Generated benchmark inputs: PNG icons, policies, search-result files and a folder tree of desktop entries. */
#ifndef KELBENCH_INPUTS_H
#define KELBENCH_INPUTS_H

#include <string>
#include <vector>

namespace kelbench {

/* Paths below the private root. */
struct Paths {
    std::string root;
    std::string etc;       /* root/etc/KEL/ */
    std::string image;     /* root/etc/KEL/image/ */
    std::string inputs;    /* root/inputs/: the generated files, copied into place by UseFile */
    std::string icons;     /* root/icons/ */
    std::string searchDir; /* root/search: the folder tree the local search walks */
    std::string work;      /* root/work/: raw baselines write here */
};
const Paths& P();
void SetRoot(const std::string& root);

/* Input files, in P().inputs. */
extern const char* const POLICY_40X250;   /* 40 categories x 250 programs, mixed icons */
extern const char* const POLICY_LISTS;    /* "Small" (1), "List 1000", "List 10000"; icons from 8 paths */
extern const char* const POLICY_LIST_8_PATHS;    /* one category of 10,000 programs, icons from 8 paths */
extern const char* const POLICY_LIST_1000_PATHS; /* one category of 10,000 programs, icons from 1,000 paths */
extern const char* const POLICY_EMPTY;    /* no category */
extern const char* const RESULTS_1000;    /* search results, icons from 8 paths */
extern const char* const RESULTS_10000;
extern const char* const RESULTS_5000_MIXED; /* shared, distinct and missing icons */
extern const char* const RESULTS_10000_1000_PATHS;

/* The default and legend images, the shared icons and the small policy files. */
void GenerateBasics();
/* The tab-navigation policies (writes some 5,000 icon files). */
void GeneratePolicies();
/* The search-result files (some 2,000 icon files more). */
void GenerateSearchResults();
/* The folder tree that the local search walks, its programs and its icon theme. */
void GenerateSearchTree();

/* Generates once per root: a root given from outside (KELBENCH_CHILD=1 KEL_ROOT=...) keeps its
 * inputs from one run to the next, which profiling runs want. */
void GenerateOnce(const char* what, void (*generate)());

/* Copies an input over a file of the policy folder (TabNavigation.xml, SearchResult.xml, ...). */
void UseFile(const char* input, const std::string& policyFile);

/* Number of distinct icon paths of a generated file that exist as files, and whether some
 * entry has no loadable icon (then the default icon is shown too). */
struct IconCensus {
    size_t existing = 0;
    bool needsDefault = false;
};
IconCensus CountIcons(const std::string& xmlFile);

/* False (with a message) when gdk-pixbuf cannot decode the generated icons here, which would
 * make every icon figure meaningless. */
bool IconsDecode();

/* A name of 5 to 35 characters, sometimes with non-ASCII letters; deterministic. */
std::string MakeName(unsigned seed, unsigned index);

} // namespace kelbench

#endif
