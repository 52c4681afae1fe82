# Files of src/log
