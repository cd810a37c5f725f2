// The yardstick of a cold command-line lookup: libhangul's own load of its Hanja list and an exact
// lookup of one word, printed, as a whole process. bench/cold-lookup.sh runs it paired with
// `sorelwick lookup WORD`.
#include <hangul.h>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_LibhangulLookup HANJA_TXT WORD\n");
        return 2;
    }
    HanjaTable* table = hanja_table_load(argv[1]);
    if (!table) {
        std::fprintf(stderr, "cannot load %s\n", argv[1]);
        return 1;
    }
    HanjaList* list = hanja_table_match_exact(table, argv[2]);
    const int n = list ? hanja_list_get_size(list) : 0;
    for (int i = 0; i < n; ++i) std::printf("%s\n", hanja_get_value(hanja_list_get_nth(list, i)));
    if (list) hanja_list_delete(list);
    hanja_table_delete(table);
    return n > 0 ? 0 : 1;
}
