# Files of src/view
