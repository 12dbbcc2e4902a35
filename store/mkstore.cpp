// tessary-mkstore SCHEMA.sql STORE: creates an empty store when none is there.
#include "store/CreateStore.h"
#include "store/Store.h"

#include <fstream>
#include <iostream>
#include <sstream>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: tessary-mkstore SCHEMA.sql STORE\n";
        return 2;
    }
    std::ifstream in(argv[1]);
    if (!in) {
        std::cerr << "tessary-mkstore: cannot read " << argv[1] << "\n";
        return 1;
    }
    std::stringstream schema;
    schema << in.rdbuf();
    try {
        if (store::CreateStore(argv[2], schema.str()))
            std::cout << "Created an empty store: " << argv[2] << "\n";
    } catch (const store::StoreError& e) {
        std::cerr << "tessary-mkstore: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
